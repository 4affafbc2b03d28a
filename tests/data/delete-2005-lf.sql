/* CreateDate: 08/05/2015 09:01:32.090 , ModifyDate: 08/05/2015 09:01:32.090 */
GO
create procedure [sp_MSdel_dboCustomers]
		@pkc1 int
as
begin
	delete [dbo].[Customers]
where [CustomerId] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
GO
