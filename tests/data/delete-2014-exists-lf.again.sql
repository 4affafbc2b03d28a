/* createdate: 02/27/2017 09:49:55.787 , modifydate: 02/27/2017 09:49:55.787 */
go
/****** object:  storedprocedure [dbo].[ sp_msdel_dbocustomers ] ******/
 
if object_id('dbo.[sp_msdel_dbocustomers]') is not null 
	drop procedure dbo.[sp_msdel_dbocustomers]
go
---------------------------
/****** Object:  StoredProcedure [dbo].[ sp_msdel_dbocustomers ] ******/
 
IF object_id('dbo.[sp_msdel_dbocustomers]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dbocustomers]
GO
---------------------------
create procedure [dbo].[sp_msdel_dbocustomers]
		@pkc1 int
as
begin
	declare @primarykey_text nvarchar(100) = ''
	delete [dbo].[customers]
	where [customerid] = @pkc1
/*-d- /*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
		begin
			if exists (select * from sys.all_parameters where object_id = object_id('sp_msreplraiserror') and [name] = '@param3')
			begin

				set @primarykey_text = @primarykey_text + '[customerid] = ' + convert(nvarchar(100),@pkc1,1)
				exec sp_msreplraiserror @errorid=20598, @param1=n'[dbo].[customers]', @param2=@primarykey_text, @param3=13234
			end
			else
				exec sp_msreplraiserror @errorid=20598
		end -D-*/
 
  -d-*/
 
 
end
go
