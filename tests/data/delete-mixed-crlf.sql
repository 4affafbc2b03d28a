-- Sales replication procedures
GO
/****** Object:  StoredProcedure [dbo].[sp_MSdel_Regions]    Script Date: 2021-07-10 1:50:50 PM ******/
SET ANSI_NULLS ON
GO
create procedure [dbo].[sp_MSdel_Regions] @pkc1 int
as
delete "Regions"
where "RegionId" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
GO

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
create procedure [sp_MSdel_dboNotATable]
		@pkc1 int
as
begin
	delete [dbo].[NotATable]
where [Id] = @pkc1
if @@rowcount = 0
	return
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSdel_Orders]    Script Date: 2021-07-10 1:50:50 PM ******/
SET ANSI_NULLS ON
GO
create procedure [dbo].[sp_MSdel_Orders] @pkc1 int
as
delete "Orders"
where "OrderId" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
GO
SET ANSI_NULLS ON
SET QUOTED_IDENTIFIER ON
GO
create procedure dbo.[sp_MSdel_dboRegions]
		@pkc1 int
as
begin  
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[Regions] 
	where [id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		Begin
			
			set @primarykey_text = @primarykey_text + '[id] = ' + convert(nvarchar(100),@pkc1,1)
			exec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[Regions]', @param2=@primarykey_text, @param3=13234
		End
end  
GO
/* CreateDate: 02/27/2017 09:49:55.787 , ModifyDate: 02/27/2017 09:49:55.787 */
GO
create procedure [dbo].[sp_MSdel_dboCustomers_msrepl_ccs]
		@pkc1 int
as
begin
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[Customers]
	where [CustomerId] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		Begin
			if exists (Select * from sys.all_parameters where object_id = OBJECT_ID('sp_MSreplraiserror') and [name] = '@param3')
			Begin

				set @primarykey_text = @primarykey_text + '[CustomerId] = ' + convert(nvarchar(100),@pkc1,1)
				exec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[Customers]', @param2=@primarykey_text, @param3=13234
			End
			Else
				exec sp_MSreplraiserror @errorid=20598
		End
end
GO
create procedure [dbo].[sp_MSdel_dboAudit_msrepl_ccs]
		@pkc1 int
as
begin
	delete [dbo].[Audit]
where [AuditId] = @pkc1
end
GO
-- end of script
